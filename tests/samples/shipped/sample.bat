REM tarvik: executable 6 comment 4 total 11
@echo off
:: a label-style comment
set NAME=world
  rem indented remark
@REM quiet remark
echo Hello %NAME%

if "%1"=="" goto end
echo REMOTE is not a remark
:end
