; tarvik: executable 6 comment 6 total 15
;;;; sample.lisp --- a tiny Common Lisp program

#|
  Block comment in Common Lisp.
  It can span lines.
|#

(defun greet (name)
  "Return a greeting; the semicolon here is inside a string."
  (format nil "Hello, ~a!" name))  ; format directive

(defvar *items* '(1 2 3)) ; a quoted list
#| short |# (print (mapcar #'greet '("a" "b")))
(print (greet "world"))
