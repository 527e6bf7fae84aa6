local function mix(a, b, c)
  return (a * 31 + b) ~ c
end

local acc = 0
for i = 1, 1500000 do
  acc = (acc + mix(i, acc, 7) + math.tointeger(i // 3) + #string.sub('abcdefgh', i % 5 + 1, i % 5 + 3)) & 0xFFFFF
end
print(acc)
