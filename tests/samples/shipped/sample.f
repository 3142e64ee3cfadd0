* tarvik: executable 6 comment 3 total 10
      PROGRAM HELLO
*     A fixed-form comment
      INTEGER I
      I = 2 * 3
      PRINT *, 'I = ', I ! trailing
     $  , ' done'

! another comment
      END
