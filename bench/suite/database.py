"""The benchmark database as the server serves it: its user tables, their rows, the full scan
of every table through isql, and the random primary-key look-ups over them."""

import json
import os
import re

from suite.commands import run
from suite.messages import BenchError


class Database:
    def __init__(self, host, alias, user, password, work):
        self.connect = f"CONNECT '{host}:{alias}' USER '{user}' PASSWORD '{password}';\n"
        self.work = work
        self._rows = None

    def isql_command(self, name, sql):
        path = os.path.join(self.work, name)
        with open(path, "w") as f:
            f.write(self.connect + sql)
        return ["isql-fb", "-q", "-bail", "-i", path]

    def tables(self):
        sql = "SET HEADING OFF;\nSELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 ORDER BY 1;\n"
        text = run(self.isql_command("tables.sql", sql)).stdout
        names = [l.strip() for l in text.splitlines() if re.fullmatch(r"\s*[A-Z_][A-Z0-9_$]*\s*", l)]
        if not names:
            raise BenchError(f"no user tables found:\n{text}")
        return names

    def table_rows(self):
        """Rows per user table; keys run from 0, so MAX(ID) + 1 of each."""
        if self._rows is None:
            tables = self.tables()
            sql = "SET HEADING OFF;\n" + "".join(f"SELECT MAX(ID) + 1 FROM {t};\n" for t in tables)
            text = run(self.isql_command("rows.sql", sql)).stdout
            counts = [int(n) for n in re.findall(r"^\s*(\d+)\s*$", text, re.M)]
            self._rows = dict(zip(tables, counts))
        return self._rows

    def scan_command(self):
        sql = "".join(f"SELECT COUNT(*) FROM {t};\n" for t in self.table_rows())
        return self.isql_command("count.sql", sql)

    def timed_scan(self, runner, scan):
        run = runner(scan)
        if len(re.findall(r"^\s*\d+\s*$", run.out, re.M)) != len(self.table_rows()):
            raise BenchError(f"unexpected scan output:\n{run.out}")
        return run.secs

    def lookup_command(self, program, target, user, count, seed):
        """The look-up program over every user table: count random primary keys, seeded; target is
        host:database as the server knows it."""
        tables = [f"{t}:{rows}" for t, rows in self.table_rows().items()]
        return [program, target, user, str(count), str(seed)] + tables

    @staticmethod
    def timed_lookups(runner, lookup):
        """The look-ups' own figures: the last line of their output, in JSON."""
        return json.loads(runner(lookup).out.strip().splitlines()[-1])
