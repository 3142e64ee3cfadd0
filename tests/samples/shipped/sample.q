/ tarvik: executable 4 comment 2 total 6
x:til 10
/ a comment line
y:+/ x
z:x%2
sum y
