"""One module per section of a suite. Each has KEY, its place in the results, and
measure(ctx, done): ctx is a suite.context.Context; done holds the parts of the section that a
run which failed had finished (suite.context.Context.checkpoint), or None. It returns the
section's results as plain data for the results file."""
