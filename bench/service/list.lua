-- wrk script: posts the catalogue request with the session of the signed-in
-- company, both handed over by bench/service/run through the environment.
wrk.method = "POST"
wrk.body = os.getenv("BENCH_BODY")
wrk.headers["Content-Type"] = "text/xml; charset=utf-8"
wrk.headers["X-Session"] = os.getenv("BENCH_SESSION")
