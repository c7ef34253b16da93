// The driver entry points of the simulated scope (being built).
