// Loaded where the tweak would be, so that the test process's own copy of the tweak does the work.
