// A library the tests build and then keep out of the loader's reach.
int vantorel_absent_dependency(void) { return 1; }
