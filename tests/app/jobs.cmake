# job tests
