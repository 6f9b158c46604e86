/* The start-up baseline: a program that does nothing. */
int main(void) { return 0; }
