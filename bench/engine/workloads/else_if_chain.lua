local a, b, c, d = 0, 0, 0, 0
for i = 1, 3000000 do
  local v = i % 10
  if v == 0 then a = a + 1
  elseif v == 1 then b = b + 1
  elseif v == 2 then c = c + 1
  elseif v == 3 then d = d + 1
  elseif v == 4 then a = a + 2
  elseif v == 5 then b = b + 2
  elseif v == 6 then c = c + 2
  elseif v == 7 then d = d + 2
  elseif v == 8 then a = a + 3
  else b = b + 3 end
end
print(a .. ' ' .. b .. ' ' .. c .. ' ' .. d)
