# tarvik: executable 10 comment 6 total 21
# frozen_string_literal: true

=begin
Embedded documentation block.

It ends with the matching end marker.
=end

class Greeter
  def initialize(name)
    @name = name # instance variable
  end

  def greet
    "Hello, #{@name}!"   # interpolation uses a hash sign
  end
end

puts Greeter.new('Ruby').greet
puts "=begin is just text here"
