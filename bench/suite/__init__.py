"""What the measurements share: running and timing commands, the page cache of a file, the
throttled disk and the server's restarts, the fbwarm commands, the benchmark database's tables,
and the context a measurement is handed. Nothing here writes a report."""
