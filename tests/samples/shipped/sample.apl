⍝ tarvik: executable 3 comment 2 total 6
avg ← {(+/⍵)÷≢⍵}
⍝ a comment
avg 1 2 3 4   ⍝ trailing

'⍝ in a string'
