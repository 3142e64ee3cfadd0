# tarvik: executable 12 comment 2 total 20
"""Module docstring.

Docstrings are string literals, so they count as code.
"""
import os  # standard library

URL = "http://example.com/#anchor"
HASH = '#'  # a lone hash in quotes


def greet(name: str) -> str:
    '''Return a greeting.'''
    # f-strings can hold a hash too
    return f"Hello, {name}! #1"


if __name__ == "__main__":
    print(greet("世界"), os.sep)  # 表示
    print("it's", 'say "hi"')
