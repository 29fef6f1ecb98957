-- wrk script: the catalogue request, and one request in ten an edit of a
-- video (its title toggled), with the session of the signed-in company; the
-- texts come from bench/service/instances through the environment.
local list = os.getenv("BENCH_BODY")
local edits = {}
for text in string.gmatch(os.getenv("BENCH_EDITS") or "", "[^\1]+") do edits[#edits + 1] = text end
local share = tonumber(os.getenv("BENCH_WRITE_SHARE") or "0")
local headers = {["Content-Type"] = "text/xml; charset=utf-8", ["X-Session"] = os.getenv("BENCH_SESSION")}

request = function()
  if #edits > 0 and math.random() < share then
    return wrk.format("POST", "/service", headers, edits[math.random(#edits)])
  end
  return wrk.format("POST", "/service", headers, list)
end
