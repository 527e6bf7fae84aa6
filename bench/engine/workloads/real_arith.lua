local x, chars, y = 0.0, 0, 0.0
for i = 1, 1500000 do
  local r = i * 0.37
  x = x + 1.0 / (r * r + 1.0) - r / 1000000.0
  if i % 4 == 0 then
    local s = string.format('%.15g', r * 1.5)
    chars = chars + #s
    y = y + tonumber(s)
  end
end
print(string.format('%.15g %.15g %d', x, y, chars))
