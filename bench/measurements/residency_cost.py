"""4. What the residency checks cost: the whole-file checks before and after a read-through that
the operator's report makes, and /SKIPCACHED's check of every request, by cachestat and by
mincore (build/residency_cost, on the database file)."""

import json

from suite.messages import log
from suite.rounds import summary

KEY = "residency_cost"


def measure(ctx, done):
    def run():
        answer = json.loads(ctx.run([ctx.programs.residency_cost, ctx.db, str(ctx.runs)]).out)
        log("residency checks measured")
        # A mechanism this kernel lacks is null.
        mechanisms = {name: None if m is None else {k: summary(v) for k, v in m.items()}
                      for name, m in answer["mechanisms"].items()}
        return {"bytes": answer["bytes"], "requests": answer["requests"], "mechanisms": mechanisms,
                "commands": ctx.shown([("residency checks", [ctx.programs.residency_cost, ctx.db, str(ctx.runs)])])}
    return ctx.timed("residency cost", run)
