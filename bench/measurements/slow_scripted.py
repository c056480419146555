"""fbwarm's full run against what a user would otherwise script (vmtouch -t on the file, then the
server's statistics through fbsvcmgr), cold and warm, on one storage profile; warm also with
/SKIPCACHED, by cachestat and by mincore."""

from suite import fbwarm
from suite.messages import BenchError, log
from suite.rounds import rotated, summary


def tools(ctx):
    stats = ["fbsvcmgr", f"{ctx.host}:service_mgr", "user", ctx.user, "password", ctx.password,
             "action_db_stats", "dbname", ctx.alias, "sts_data_pages", "sts_idx_pages"]
    combo = ["sh", "-c", 'vmtouch -tq "$1" && shift && exec "$@"', "sh", ctx.db] + stats
    return [("fbwarm full run", ctx.fbwarm.full), ("vmtouch -t + fbsvcmgr", combo)]


def measure(ctx, storage):
    out = {}
    skip_cases = ctx.fbwarm.skip_cases() if ctx.fbwarm.skip_cached else []
    for state in ("cold", "warm"):
        names = tools(ctx) + (skip_cases if state == "warm" else [])
        acc = {n: [] for n, _ in names}
        for r in range(ctx.runs):
            for name, cmd in rotated(names, r):
                ctx.cache.evict() if state == "cold" else ctx.cache.load()
                run = ctx.run(cmd)
                if fbwarm.is_fbwarm(cmd):
                    fbwarm.check_output(run.out, with_read_through=True)
                elif "Analyzing database pages" not in run.out:
                    raise BenchError(f"{name} printed no report:\n{run.out[-2000:]}")
                acc[name].append(run.secs)
            log(f"{storage.profile}: fbwarm against the scripted combination, {state}, round {r + 1}/{ctx.runs}")
        out[state] = {n: summary(v) for n, v in acc.items()}
    out["commands"] = ctx.shown(tools(ctx) + skip_cases)
    return out
