* tarvik: executable 4 comment 4 total 9
sysuse auto, clear
* a star comment
summarize price  // trailing
/* a block
   comment */
generate ratio = price * 2

regress price mpg
