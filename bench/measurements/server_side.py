"""2. The server side: fbwarm's statistics run against the server's own tools (fbsvcmgr, fbstat)
over the same database, and fbwarm's full run, cold and warm."""

from suite import fbwarm
from suite.messages import BenchError, log
from suite.rounds import rotated, summary

KEY = "server_side"


def tools(ctx):
    pw, user, alias = ctx.password, ctx.user, ctx.alias
    return [
        ("fbwarm statistics run", ctx.fbwarm.stats),
        ("fbsvcmgr action_db_stats", ["fbsvcmgr", f"{ctx.host}:service_mgr", "user", user, "password", pw,
                                      "action_db_stats", "dbname", alias, "sts_data_pages", "sts_idx_pages"]),
        ("fbstat -d -i", ["fbstat", "-d", "-i", "-u", user, "-p", pw, f"{ctx.host}:{alias}"]),
        ("fbwarm full run", ctx.fbwarm.full),
    ]


def measure_state(ctx, state):
    cases = tools(ctx)
    acc = {n: {"secs": [], "rss": []} for n, _ in cases}
    for r in range(ctx.runs):
        for name, cmd in rotated(cases, r):
            ctx.cache.evict() if state == "cold" else ctx.cache.load()
            run = ctx.run(cmd)
            if fbwarm.is_fbwarm(cmd):
                fbwarm.check_output(run.out, with_read_through=cmd is ctx.fbwarm.full)
            elif "Analyzing database pages" not in run.out:
                raise BenchError(f"{name} printed no report:\n{run.out[-2000:]}")
            acc[name]["secs"].append(run.secs)
            acc[name]["rss"].append(run.rss_kib)
        log(f"server side, {state}, round {r + 1}/{ctx.runs}")
    return {n: {"secs": summary(a["secs"]), "rss_kib": max(a["rss"])} for n, a in acc.items()}


def measure(ctx, done):
    return ctx.timed("server side", lambda: {state: measure_state(ctx, state) for state in ("cold", "warm")}
                     | {"commands": ctx.shown(tools(ctx))})
