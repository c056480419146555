"""The report of each suite, made from its results file alone: one module per section with
lines(res) (its Markdown) and, where it judges goals, goals(res) (rows of goal, measured, met);
charts drawn by gnuplot; and one module per suite that puts them together. Nothing here
measures."""
