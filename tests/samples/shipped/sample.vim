" tarvik: executable 6 comment 3 total 10
set nocompatible
  " an indented comment
let s:greeting = "hello"   " a trailing remark stays on a code line
function! s:Greet(name) abort
  echo s:greeting . ", " . a:name
endfunction

" the last comment
call s:Greet("world")
