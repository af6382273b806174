mkdir sub
