! tarvik: executable 11 comment 3 total 16
program sample
  implicit none
  integer :: i, total
  character(len=*), parameter :: msg = "Hello! World"  ! bang inside a string

  ! sum the first ten integers
  total = 0
  do i = 1, 10
    total = total + i   ! accumulate
  end do

  if (total /= 55) stop 'unexpected!'
  print *, msg, total
  !print *, 'debug'
end program sample
