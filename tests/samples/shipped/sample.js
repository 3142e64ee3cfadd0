// tarvik: executable 9 comment 6 total 19
'use strict';

const url = 'https://example.com/api'; // single quotes hide the slashes
const re = /https?:\/\//;
const msg = "it's fine";

/* first block
   ends here */ let x = 1; /* second block
   still in the second block */

function greet(name) {
  return `Hello, ${name}`; // template literal
}

/*
 * 複数行のコメント
 */
module.exports = { greet, x, url, re, msg };
