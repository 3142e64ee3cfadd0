# tarvik: executable 4 comment 6 total 11
use v6;

#`( an embedded
    comment )
my $x = "# not a comment";
=begin pod
Documentation.
=end pod
say $x; # trailing
#`[ one line ] my $y = 1;
