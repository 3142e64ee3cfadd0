// tarvik: executable 5 comment 4 total 11
module Sample

(* a block comment
   over two lines *)
let greet name = sprintf "Hello, %s // not a comment" name
/// doc comment
let square x = x * x  // trailing

[<EntryPoint>]
let main _ = printfn "%s" (greet "world"); 0
