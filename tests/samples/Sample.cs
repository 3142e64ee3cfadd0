// tarvik: executable 15 comment 5 total 22
using System;

namespace Tarvik.Samples
{
    /// <summary>
    /// XML doc comment lines are comments.
    /// </summary>
    public static class Program
    {
        private const string LogPattern = @"C:\temp\*.log"; // verbatim string
        private const char Quote = '"';

        public static void Main(string[] args)
        {
            var msg = $"args: {args.Length} /* not a comment */";
            /* block
               comment */ Console.WriteLine(msg);
            Console.WriteLine("done"); /* tail */
        }
    }
}
