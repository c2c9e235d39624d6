; Quorvane sample source: tabs every 8 columns
	ORG	#8000
START:	LD	HL,MESSAGE	; text
LOOP:	LD	A,(HL)
	OR	A
	RET	Z
	RST	#10
	INC	HL
	JR	LOOP

MESSAGE:	DEFB	"Hello",13,0
A_VERY_LONG_LABEL_NAME_THAT_GOES_PAST_THE_TAB_STOPS:	NOP
			; three tabs
LOOP_COUNTER:	DEFW	0
x	y	z
1234567	seven then a tab
12345678	eight then a tab
 	 	 	
xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx	end
END	START