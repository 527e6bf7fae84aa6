local log, parts, line, lines = {}, 0, '', 0
for i = 1, 1750000 do
  parts = parts + 1
  log[parts] = 'abcdefghij'
  line = line .. i .. ','
  if #line > 200 then
    lines = lines + 1
    line = ''
  end
end
print(#table.concat(log) .. ' ' .. lines .. ' ' .. #line)
