local lo, mid, hi, odd, other = 0, 0, 0, 0, 0
for i = 1, 2000000 do
  local v = i % 20
  if v >= 0 and v <= 3 then lo = lo + 1
  elseif v == 4 or v == 6 or v == 8 then mid = mid + 1
  elseif (v >= 10 and v <= 13) or v == 15 then hi = hi + 1
  elseif v == 5 or v == 7 or v == 9 or v == 17 or v == 19 then odd = odd + 1
  else other = other + 1 end
end
print(lo .. ' ' .. mid .. ' ' .. hi .. ' ' .. odd .. ' ' .. other)
