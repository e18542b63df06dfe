# tests of the two HTTP clients
