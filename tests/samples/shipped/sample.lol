BTW tarvik: executable 4 comment 4 total 9
HAI 1.2
OBTW a long
  comment TLDR
I HAS A NAME ITZ "world"
VISIBLE "HAI " NAME BTW trailing

BTW last
KTHXBYE
