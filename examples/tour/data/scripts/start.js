// Runs once, when the clock starts and just before the music does.
print('tour: the clock is running, music starts now');
