local total = 0
for i = 1, 700000 do
  local s = 'abcdefghij' .. i
  local t = s:sub(1, 1) .. s:sub(5)
  local u = t:sub(1, 3) .. 'XY' .. t:sub(4)
  total = total + #u + (s:find('5', 1, true) or 0) + (u:sub(3, 6):find('Y', 1, true) or 0)
end
print(total)
