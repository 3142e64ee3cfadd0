(* tarvik: executable 5 comment 4 total 10 *)
let greet name =
  (* a comment (* nested *) still inside *)
  "Hello, " ^ name ^ " (* not a comment *)"

(* two-line
   comment *)
let () = print_endline (greet "world") (* trailing *)
let quote = "a \" b"
let c = '"'
