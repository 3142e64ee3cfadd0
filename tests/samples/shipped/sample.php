// tarvik: executable 11 comment 5 total 18
<?php
declare(strict_types=1);

# hash comments are not known to this engine
/**
 * Returns a greeting.
 */
function greet(string $name): string
{
    return "Hello, {$name}! // not a comment"; // a comment
}

$names = ['Alice', "Bob's"]; /* mixed quotes */
foreach ($names as $n) {
    echo greet($n), PHP_EOL;
}
?>
