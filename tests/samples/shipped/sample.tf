# tarvik: executable 7 comment 4 total 12
resource "aws_instance" "web" {
  ami  = "ami-123#456" # image
  type = "t2.micro"   // size
}

// a slash comment
/* a block
   comment */
variable "name" {
  default = "a \"#\" b"
}
