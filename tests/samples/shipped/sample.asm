; tarvik: executable 7 comment 2 total 10
section .data
msg db "Hello; world", 10   ; the text

section .text
global _start
_start:
    mov eax, 4      // write
/* block comment */
    int 0x80
