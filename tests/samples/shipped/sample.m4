dnl tarvik: executable 4 comment 3 total 8
AC_INIT([sample], [1.0])
# a hash comment
AC_CONFIG_SRCDIR([main.c])
AC_PROG_CC  dnl pick a compiler

dnl the end
AC_OUTPUT
