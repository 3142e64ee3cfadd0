-- tarvik: executable 9 comment 5 total 18
{-# LANGUAGE OverloadedStrings #-}
module Main (main) where

{- A block comment
   over two lines -}

import Data.List (sortOn)

-- | Haddock comment for 'square'.
square :: Int -> Int
square x = x * x  -- multiply

main :: IO ()
main = do
  let xs = [3, 1, 2] {- inline -} :: [Int]
  print (map square (sortOn negate xs))
  putStrLn "{- not a comment -}"
