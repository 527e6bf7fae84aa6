local steps = 0
for start = 1, 40000 do
  local n = start
  repeat
    if n % 2 == 0 then n = n // 2 else n = 3 * n + 1 end
    steps = steps + 1
  until n <= 1
end
print(steps)
