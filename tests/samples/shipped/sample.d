// tarvik: executable 7 comment 5 total 13
import std.stdio;

/+ D's nesting comments: /+ inner +/
   still inside +/
void main()
{
    string s = "a \" quote // not a comment";
    /* block */ writeln(s);
    /** doc
     */
    int x = 1; // trailing
}
