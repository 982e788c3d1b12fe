-- One POST per request with the whole SingleSMS query in the target and an
-- empty body, as the send run makes it. The target (path and query, already
-- percent-encoded) comes from bench_send through TELLWAVE_WRK_PATH.
wrk.method = "POST"
wrk.path = os.getenv("TELLWAVE_WRK_PATH") or "/httppost4.aspx?Type=Credits&Username=bench&Password=bench"
wrk.headers["Content-Length"] = "0"
