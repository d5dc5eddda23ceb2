// rnssweep
