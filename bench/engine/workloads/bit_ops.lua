local acc = 0
for i = 1, 2000000 do
  local x = ((i << 3) | (i >> 2)) ~ (i & 0xFF)
  acc = (acc + x // 3 + x % 11) & 0xFFFFFF
end
print(acc)
