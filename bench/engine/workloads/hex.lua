local digits = '0123456789ABCDEF'
local total, h = 0, ''
for i = 1, 300000 do
  local v = i * 2654435761 & 0xFFFFFFFF
  h = ''
  for k = 7, 0, -1 do
    local d = ((v >> (k * 4)) & 0xF) + 1
    h = h .. string.sub(digits, d, d)
  end
  total = (total + tonumber(h, 16) % 1000 + (string.find(h, 'F', 1, true) or 0)) & 0xFFFFFFF
end
print(total .. ' ' .. h)
