# tarvik: executable 8 comment 6 total 20
"""Module docstring.

Docstrings standing alone are comment lines.
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
