-- Parse a 5 MB text of words, numbers, quoted strings and punctuation: the
-- twin of parse.xeb, with anchored string patterns.
local chunk = 'The quick brown fox, 42 jumps over 3.14 "lazy dogs"; then: "say \\"hi\\"" again! 7 times (or 10.5) - done. '
local text = string.rep(chunk, 50000)
local find = string.find

local function scan(s)
  local words, nums, strs, puncts = 0, 0, 0, 0
  local i, n = 1, #s
  while i <= n do
    local _, e = find(s, "^[ \t\n]+", i)
    if e then
      i = e + 1
    else
      _, e = find(s, "^%a+", i)
      if e then
        i, words = e + 1, words + 1
      else
        _, e = find(s, "^%d+", i)
        if e then
          local _, f = find(s, "^%.%d+", e + 1)
          i, nums = (f or e) + 1, nums + 1
        else
          _, e = find(s, '^"[^"\\]*', i)
          if e then
            repeat
              local _, f = find(s, '^\\.[^"\\]*', e + 1)
              if f then e = f end
            until not f
            if s:sub(e + 1, e + 1) ~= '"' then return false, words, nums, strs, puncts end
            i, strs = e + 2, strs + 1
          else
            _, e = find(s, "^[,.;:!?()%-]", i)
            if not e then return false, words, nums, strs, puncts end
            i, puncts = e + 1, puncts + 1
          end
        end
      end
    end
  end
  return true, words, nums, strs, puncts
end

local ok, w, nu, st, p = scan(text)
print(ok and "true" or "false")
print(w, nu, st, p)
