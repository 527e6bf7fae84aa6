local fields, sum = 0, 0
for i = 1, 100000 do
  local reply = 'OK,' .. i .. ',' .. (i % 97) .. ',TEMP,' .. (i * 3) .. ',END'
  for field in string.gmatch(reply, '[^,]+') do
    fields = fields + 1
    sum = sum + (math.tointeger(tonumber(field)) or 0)
  end
end
print(fields .. ' ' .. sum)
