local i, s = 0, 0
while i < 4000000 do
  s = s + i * i % 7
  i = i + 1
end
print(s)
