// The demo title's entry script. Nothing draws yet: it counts the primes
// below 30000 on two script threads, waits for both, and closes the program.

// The first ten built-ins, in table order (`zelt header` writes them all).
#trap
int jump(/* char *script */);
#trap
int call(/* char *script */);
#trap
int exit();
#trap
int setjmp(/* void *buf */);
#trap
int longjmp(/* void *buf, int value */);
#trap
int thd_begin(/* void *func, int arg, int suspended, int stack */);
#trap
int thd_end(/* int thread */);
#trap
int thd_suspend(/* int thread */);
#trap
int thd_resume(/* int thread */);
#trap
int sleep(/* int ms */);

int found[2];
int finished[2];

int is_prime(int n) {
  int d;
  for (d = 3; d * d <= n; d = d + 2)
    if (n % d == 0) return 0;
  return 1;
}

// Odd numbers 3 + 2 * half, stepping by 4: each thread takes every other one.
void count(int half) {
  int n;
  for (n = 3 + 2 * half; n < 30000; n = n + 4)
    if (is_prime(n)) found[half] = found[half] + 1;
  finished[half] = 1;
}

int main() {
  thd_begin(count, 0, 0, 0);
  thd_begin(count, 1, 0, 0);
  while (finished[0] == 0 || finished[1] == 0) sleep(10);
  exit();
}
