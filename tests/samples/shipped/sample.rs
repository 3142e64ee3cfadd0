// tarvik: executable 15 comment 5 total 24
//! Crate-level doc comment.

use std::fmt;

/// A point in 2-D space.
#[derive(Debug, Clone, Copy)]
pub struct Point {
    pub x: f64, // east
    pub y: f64, /* north */
}

impl fmt::Display for Point {
    fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
        write!(f, "({}, {}) // not a comment", self.x, self.y)
    }
}

/* Rust block comments nest: /* inner */ but this counter
   does not track nesting. */
fn main() {
    let p = Point { x: 1.0, y: 2.0 };
    println!("{p}"); /* show */ let _q = p;
}
