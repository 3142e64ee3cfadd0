// tarvik: executable 14 comment 5 total 23
package main

import (
	"fmt"
	"strings"
)

/*
Package comment in a block.
*/

// join concatenates with a slash.
func join(parts ...string) string {
	return strings.Join(parts, "/") // "/" is the separator
}

func main() {
	s := join("a", "b") /* inline */ + `//raw`
	fmt.Println(s, '"') // rune literal of a double quote
	r := '\'' // rune literal of a single quote
	_ = r
}
