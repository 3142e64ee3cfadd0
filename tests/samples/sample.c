/* tarvik: executable 13 comment 9 total 25 */
#include <stdio.h>
#include <string.h>

/*
 * Multi-line header comment.
 * It's got an apostrophe and a "quote".

 * The blank line above is inside the block.
 */
static const char *url = "http://example.com/*not-a-comment*/";
static const char slash = '/';  /* a char literal */

int main(void)
{
    int a = 1; /* inline */ int b = 2;
    printf("%d // %d\n", a, b);   // real comment after a string
    /* one-line block */
    // a line comment with /* inside
    if (a < b) {
        puts("done */ here");
    }
    return 0; /* trailing block that
                 spans two lines */
}
