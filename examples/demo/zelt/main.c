// The demo title's entry script.
void main()
{
}
