# tarvik: executable 12 comment 5 total 22
use strict;
use warnings;

=pod

Plain Old Documentation lives between the two markers.

=cut

my %count = (apples => 3, pears => 5);   # a hash
my $re = qr/#not-a-comment/;             # the pattern is cut at the hash
print "Total: ", $count{apples} + $count{pears}, "\n";
print 'single # quoted', "\n";

# sub with a default
sub greet {
    my ($name) = @_;
    $name //= 'world';
    return "Hello, $name";
}
print greet(), "\n";
