# tarvik: executable 5 comment 5 total 11
use v6;

#`( an embedded
    comment )
my $x = "# not a comment";
=begin pod
Documentation.
=end pod    (the words after a block's end are code)
say $x; # trailing
#`[ one line ] my $y = 1;
