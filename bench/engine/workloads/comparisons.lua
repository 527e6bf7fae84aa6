local hits, least, most = 0, 1000, -1
for i = 1, 2000000 do
  local a = i % 97
  local b = i % 89
  if (a < b and a ~= 5) or b >= 80 then hits = hits + 1 end
  if a - b < least then least = a - b end
  if a + b > most then most = a + b end
end
print(hits .. ' ' .. least .. ' ' .. most)
