// tarvik: executable 10 comment 5 total 19
program Sample;

{$APPTYPE CONSOLE}

{ Pascal block comments use braces.
  They may span several lines. }

uses
  SysUtils; // unit list

var
  S: string;
begin
  S := 'Braces { inside } a string'; { comment } Writeln(S);
  S := 'it''s'; // doubled quote
  (* this comment style is not known to the engine *)
  Writeln('Done');
end.
