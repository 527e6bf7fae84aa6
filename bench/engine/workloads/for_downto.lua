local t = 0
for i = 1, 2500 do
  for j = 2500, 1, -1 do
    t = t + (i ~ j) % 13
  end
end
print(t)
