local parts = {}
for i = 1, 2000 do parts[#parts + 1] = 'AT+SET=' .. (i % 500) .. ';X\r' end
local stream = table.concat(parts)
local total, commands, digits = 0, 0, 0
for n = 1, 100 do
  local state, value = 0, 0
  digits = 0
  for i = 1, #stream do
    local c = string.sub(stream, i, i)
    if state == 0 then
      if c == 'A' then state = 1 end
    elseif state == 1 then
      if c == 'T' then state = 2 else state = 0 end
    elseif state == 2 then
      if c == '=' then state = 3; value = 0 end
    elseif state == 3 then
      if c >= '0' and c <= '9' then value = value * 10 + tonumber(c); digits = digits + 1
      elseif c == ';' then total = total + value; state = 4
      else state = 0 end
    elseif state == 4 then
      if c == '\r' then commands = commands + 1; state = 0 end
    end
  end
end
print(commands .. ' ' .. total .. ' ' .. digits)
