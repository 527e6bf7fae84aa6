local total = 0
for i = 1, 1400000 do
  local s = tostring(i * 7 - 350000)
  local v = math.tointeger(tonumber(s))
  total = total + math.fmod(v, 1000) + #s
end
print(total)
