# tarvik: executable 11 comment 3 total 16
set -eu

# count arguments
echo "args: $#"
echo "first: ${1:-none}" # default value
name='O'"'"'Brien'   # quote juggling
if [ $# -gt 0 ]; then
	echo "hash # in double quotes, $name"
else
	: # no-op with a comment
fi

cat <<'END'
# this looks like a comment but is here-document text
END
