// Loads only where vantorel_absent_dependency's library can be found, which is nowhere.
int vantorel_absent_dependency(void);
int vantorel_needs_absent_dependency(void) { return vantorel_absent_dependency(); }
