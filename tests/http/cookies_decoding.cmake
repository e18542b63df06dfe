# tests of cookies and page decoding
