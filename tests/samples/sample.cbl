*> tarvik: executable 11 comment 3 total 15
IDENTIFICATION DIVISION.
PROGRAM-ID. SAMPLE.
*> free-format comment line
DATA DIVISION.
WORKING-STORAGE SECTION.
01 WS-MSG     PIC X(20) VALUE "HELLO *> WORLD".
01 WS-COUNT   PIC 9(3)  VALUE 0.   *> counter

PROCEDURE DIVISION.
    DISPLAY WS-MSG
    ADD 1 TO WS-COUNT  *> increment
    *> indented comment
    DISPLAY 'IT''S DONE'
    STOP RUN.
