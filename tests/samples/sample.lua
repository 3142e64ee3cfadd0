-- tarvik: executable 11 comment 5 total 20
local M = {}

--[[
  A long comment.
  It ends with two closing brackets.
--]]

--[[ one-line long comment ]] local x = 1

function M.greet(name)
  local s = "-- not a comment"
  return "Hello, " .. name .. s -- concatenation
end

local t = { {1, 2}, {3, 4} }
print(t[t[1][1]], x) -- nested index ends in two brackets
local long = [[ raw ]]  -- a long string
local y = 2 -- a later --[[ does not open a block
return M
