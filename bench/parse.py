# Parse a 5 MB text of words, numbers, quoted strings and punctuation: the
# twin of parse.xeb, a hand-written scanner.
chunk = 'The quick brown fox, 42 jumps over 3.14 "lazy dogs"; then: "say \\"hi\\"" again! 7 times (or 10.5) - done. '
text = chunk * 50000
ALPHA = set("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ")
DIGIT = set("0123456789")
WS = set(" \t\n")
PUNCT = set(",.;:!?()-")


def scan(s):
    words = nums = strs = puncts = 0
    i, n = 0, len(s)
    while i < n:
        c = s[i]
        if c in WS:
            i += 1
            while i < n and s[i] in WS:
                i += 1
        elif c in ALPHA:
            i += 1
            while i < n and s[i] in ALPHA:
                i += 1
            words += 1
        elif c in DIGIT:
            i += 1
            while i < n and s[i] in DIGIT:
                i += 1
            if i + 1 < n and s[i] == "." and s[i + 1] in DIGIT:
                i += 2
                while i < n and s[i] in DIGIT:
                    i += 1
            nums += 1
        elif c == '"':
            i += 1
            while i < n and s[i] != '"':
                i += 2 if s[i] == "\\" else 1
            if i >= n:
                return False, (words, nums, strs, puncts)
            i += 1
            strs += 1
        elif c in PUNCT:
            i += 1
            puncts += 1
        else:
            return False, (words, nums, strs, puncts)
    return True, (words, nums, strs, puncts)


ok, counts = scan(text)
print("true" if ok else "false")
print(*counts)
