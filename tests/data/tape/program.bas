10 REM Quorvane tape test
20 LET a=42: LET b$="tape"
30 FOR i=1 TO 10: PRINT i;" ";b$;" ";a*i: NEXT i
40 DIM c(3): DATA 1.5,-2,3e9
50 IF a<>42 THEN STOP
60 PRINT AT 0,0;"done"
