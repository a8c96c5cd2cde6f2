\a} \b "\c

	x
@@!q
\q