// tarvik: executable 11 comment 5 total 19
interface Point {
  x: number; // horizontal
  y: number; /* vertical */
}

/**
 * Distance between two points.
 */
export function dist(a: Point, b: Point): number {
  const dx = a.x - b.x, dy = a.y - b.y;
  return Math.sqrt(dx * dx + dy * dy); /* Pythagoras
  */
}

const label: string = "/* not a comment */";
const path = '//server/share'; // UNC-style path
　
export default dist;
