' tarvik: executable 9 comment 4 total 14
Option Strict On

Module Program
    ' Entry point of the sample
    Sub Main()
        Dim msg As String = "It's a ""quoted"" word" ' trailing comment
        Dim c As Char = "'"c
        Console.WriteLine(msg & c) ' show it
        ' don't count me as a comment
        REM classic remark, not a known token here
        Console.WriteLine("done")
    End Sub
End Module
